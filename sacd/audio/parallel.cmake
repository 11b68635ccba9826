list(APPEND VELMORA_AUDIO_SOURCES parallel_decoder.cpp)
list(APPEND VELMORA_AUDIO_DEPS Threads::Threads)

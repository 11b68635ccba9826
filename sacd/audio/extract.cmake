list(APPEND VELMORA_AUDIO_SOURCES audio_sector.cpp demux.cpp frame_reader.cpp extract.cpp)
list(APPEND VELMORA_AUDIO_DEPS velmora_describe)

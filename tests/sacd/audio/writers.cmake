velmora_test(test_audio_writers
  SOURCES sacd/audio/container_error_test.cpp sacd/audio/track_meta_test.cpp sacd/audio/dsf_writer_test.cpp
          sacd/audio/dsdiff_writer_test.cpp sacd/audio/ffmpeg_judge_test.cpp
  DEPS velmora_audio velmora_test_support nlohmann_json::nlohmann_json)

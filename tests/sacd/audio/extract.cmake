velmora_test(test_extract
  SOURCES sacd/audio/audio_sector_test.cpp sacd/audio/demux_test.cpp sacd/audio/extract_naming_test.cpp
          sacd/audio/extract_area_test.cpp
  DEPS velmora_audio velmora_image_builder velmora_test_support)
velmora_test(test_extract_cli
  SOURCES sacd/audio/extract_cli_test.cpp
  DEPS velmora_cli velmora_image_builder velmora_test_support velmora_dst_test_support
       nlohmann_json::nlohmann_json)

velmora_test(test_image_builder
  SOURCES tools/audio_sectors_test.cpp tools/sdm_test.cpp
  DEPS velmora_image_builder)

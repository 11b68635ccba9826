velmora_test(test_parallel_decode
  SOURCES sacd/audio/parallel_decoder_test.cpp sacd/audio/dst_extract_test.cpp
  DEPS velmora_audio velmora_image_builder velmora_dst_test_support velmora_test_support Threads::Threads)

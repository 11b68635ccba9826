# DST decoder tests. The test-only DST frame writer, DSDIFF writer and sigma-delta signal are a
# library of their own so that the benchmark and the fuzz seeds can use them too.
add_library(velmora_dst_test_support STATIC
  support/dst_test_encoder.cpp support/dst_test_dsdiff.cpp support/sdm_test_signal.cpp)
target_include_directories(velmora_dst_test_support PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(velmora_dst_test_support PUBLIC velmora_image_builder)

velmora_test(test_dst
  SOURCES dst/dst_decoder_test.cpp dst/dst_frame_test.cpp dst/dst_ffmpeg_test.cpp
  DEPS velmora_dst velmora_dst_test_support velmora_test_support Threads::Threads)

velmora_test(test_import
  SOURCES sacd/import_test.cpp
  DEPS velmora_sacd velmora_image_builder velmora_test_support)

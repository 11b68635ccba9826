velmora_test(test_charset
  SOURCES sacd/charset_test.cpp sacd/charset_conformance_test.cpp
  DEPS velmora_sacd)

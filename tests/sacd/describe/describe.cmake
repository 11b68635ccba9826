# The describe model and its text and JSON reports.
velmora_test(test_describe
  SOURCES sacd/describe/description_test.cpp
  DEPS velmora_describe)

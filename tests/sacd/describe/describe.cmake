# The describe model and its text and JSON reports.
velmora_test(test_describe
  SOURCES sacd/describe/description_test.cpp sacd/describe/text_report_test.cpp sacd/describe/json_report_test.cpp
  DEPS velmora_describe velmora_test_support)
# The describe command end to end on synthetic images.
velmora_test(test_describe_cli
  SOURCES sacd/describe/describe_cli_test.cpp
  DEPS velmora_image_builder velmora_test_support)

# Master TOC and Master Text records.
velmora_test(test_sacd_master_records
  SOURCES sacd/master_toc_test.cpp sacd/master_text_test.cpp
  DEPS velmora_sacd)

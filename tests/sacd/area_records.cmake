velmora_test(test_area_records
  SOURCES sacd/area_toc_test.cpp sacd/track_list_test.cpp sacd/track_text_test.cpp sacd/isrc_genre_list_test.cpp
  DEPS velmora_sacd)

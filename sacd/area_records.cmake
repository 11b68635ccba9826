list(APPEND VELMORA_SACD_SOURCES area_toc.cpp track_list.cpp track_text.cpp isrc_genre_list.cpp genre_table.cpp)

# Area TOC, track lists, Track Text and ISRC/genre list parsers: parse, emit, parse again.
velmora_fuzz(area_toc_fuzz area_toc_fuzz.cpp velmora_sacd)
velmora_fuzz(trl1_fuzz trl1_fuzz.cpp velmora_sacd)
velmora_fuzz(trl2_fuzz trl2_fuzz.cpp velmora_sacd)
velmora_fuzz(track_text_fuzz track_text_fuzz.cpp velmora_sacd)
velmora_fuzz(isrc_genre_list_fuzz isrc_genre_list_fuzz.cpp velmora_sacd)

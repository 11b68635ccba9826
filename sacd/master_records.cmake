# Master TOC and Master Text records.
list(APPEND VELMORA_SACD_SOURCES master_toc.cpp master_text.cpp)

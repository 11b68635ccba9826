# Master TOC and Master Text parsers: parse, emit, parse again.
velmora_fuzz(master_toc_fuzz master_toc_fuzz.cpp velmora_sacd)
velmora_fuzz(master_text_fuzz master_text_fuzz.cpp velmora_sacd)

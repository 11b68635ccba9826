list(APPEND VELMORA_SACD_SOURCES region.cpp disc.cpp import.cpp)

list(APPEND VELMORA_SACD_SOURCES charset.cpp charset_codec.cpp)
list(APPEND VELMORA_SACD_DEPS velmora_charset_ffi)

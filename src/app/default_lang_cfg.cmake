# Writes a "lang.cfg" naming English unless one is there already.
if(NOT EXISTS "${CFG}")
  file(WRITE "${CFG}" "en\r\n")
endif()

# FLAC input: decoding against the reference tool, and playback through a sink.
quillet_add_test(flac_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/flac_test.cpp
  LIBS quillet_decoders)
quillet_add_test(flac_play_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/flac_play_test.cpp
  LIBS quillet_decoders
  LABELS threaded)

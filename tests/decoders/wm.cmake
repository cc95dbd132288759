quillet_add_test(wm_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/wm_test.cpp LIBS quillet_decoders)
quillet_add_test(wm_play_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/wm_play_test.cpp LIBS quillet_decoders
  LABELS threaded)

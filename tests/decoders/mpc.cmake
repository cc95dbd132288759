# Musepack input against mpcdec, and both Vorbis and Musepack played through a
# sink on its worker thread.
quillet_add_test(mpc_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mpc_test.cpp
  LIBS quillet_decoders)
quillet_add_test(vorbis_mpc_play_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/vorbis_mpc_play_test.cpp
  LIBS quillet_decoders
  LABELS threaded)

# Ogg Vorbis input against oggdec; its playback through a sink is in
# vorbis_mpc_play_test (mpc.cmake).
quillet_add_test(vorbis_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/vorbis_test.cpp
  LIBS quillet_decoders)

quillet_add_test(wm_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/wm_test.cpp LIBS quillet_decoders)
quillet_add_test(wm_play_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/wm_play_test.cpp LIBS quillet_decoders
  LABELS threaded)
quillet_add_test(ffmpeg_input_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/ffmpeg_input_test.cpp
  LIBS quillet_decoders)
quillet_add_test(ffmpeg_play_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/ffmpeg_play_test.cpp
  LIBS quillet_decoders LABELS threaded)
quillet_add_test(ffmpeg_picture_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/ffmpeg_picture_test.cpp
  LIBS quillet_decoders)
# The stream input against a local server of good and bad stations.
quillet_add_test(stream_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/stream_test.cpp
  LIBS quillet_decoders LABELS threaded)
target_compile_definitions(stream_test PRIVATE
  QUILLET_STREAM_SERVER="${PROJECT_SOURCE_DIR}/tests/support/stream_server.py")
target_compile_definitions(ffmpeg_input_test PRIVATE QUILLET_TEST_SOURCE_DIR="${PROJECT_SOURCE_DIR}/tests")

quillet_add_test(wm_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/wm_test.cpp LIBS quillet_decoders)
quillet_add_test(wm_play_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/wm_play_test.cpp LIBS quillet_decoders
  LABELS threaded)
quillet_add_test(ffmpeg_input_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/ffmpeg_input_test.cpp
  LIBS quillet_decoders)
quillet_add_test(ffmpeg_play_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/ffmpeg_play_test.cpp
  LIBS quillet_decoders LABELS threaded)
target_compile_definitions(ffmpeg_input_test PRIVATE QUILLET_TEST_SOURCE_DIR="${PROJECT_SOURCE_DIR}/tests")

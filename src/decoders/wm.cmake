# MP3 and WMA through FFmpeg (TWMIn, TMP3In and the reader record), and the
# general FFmpeg input and the stream input on the same reader.
target_sources(quillet_decoders PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/wmfintf.cpp
  ${CMAKE_CURRENT_LIST_DIR}/libwma1.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ACS_WinMedia.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ffmpeg_input.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wave_ffmpeg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ffmpeg_picture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/icy_meta.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stream_input.cpp
)
target_link_libraries(quillet_decoders PUBLIC quillet_tags)

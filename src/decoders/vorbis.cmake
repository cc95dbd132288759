# Ogg Vorbis input; libogg/libvorbis/libvorbisfile/libvorbisenc are loaded at
# run time, so only their headers are needed.
target_sources(quillet_decoders PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/vorbis_lib.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ACS_Vorbis.cpp
)
target_link_libraries(quillet_decoders PUBLIC quillet_tags)

# FLAC: TFLACIn and its run-time binding of libFLAC (headers only; the library
# is loaded with dlopen when the first FLAC file opens).
target_sources(quillet_decoders PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/FLAC.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ACS_FLAC.cpp
)
target_link_libraries(quillet_decoders PUBLIC quillet_tags)

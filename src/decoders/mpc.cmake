# Musepack input; libmpcdec is loaded at run time, so only its headers are
# needed.
target_sources(quillet_decoders PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/libmpdec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ACS_MPC.cpp
)
target_link_libraries(quillet_decoders PUBLIC quillet_tags)

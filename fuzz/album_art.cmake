if(TARGET quillet_tags)
  quillet_add_fuzzer(album_art LIBS quillet_tags)
endif()

if(TARGET quillet_tags)
  quillet_add_fuzzer(id3v1 LIBS quillet_tags)
endif()

if(TARGET quillet_tags)
  quillet_add_fuzzer(tag_roundtrip LIBS quillet_tags)
endif()

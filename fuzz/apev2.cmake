if(TARGET quillet_tags)
  quillet_add_fuzzer(apev2 LIBS quillet_tags)
endif()

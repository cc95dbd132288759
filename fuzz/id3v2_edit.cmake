if(TARGET quillet_tags)
  quillet_add_fuzzer(id3v2_edit LIBS quillet_tags)
  target_include_directories(fuzz_id3v2_edit PRIVATE ${PROJECT_SOURCE_DIR}/src/tags)
endif()

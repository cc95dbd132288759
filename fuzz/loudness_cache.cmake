if(TARGET quillet_loudness)
  quillet_add_fuzzer(loudness_cache LIBS quillet_loudness)
endif()

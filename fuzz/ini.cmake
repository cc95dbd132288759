quillet_add_fuzzer(ini LIBS quillet_playlist)

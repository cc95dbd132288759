quillet_add_fuzzer(icy LIBS quillet_decoders)

# Frame receiver and decoders on arbitrary bytes and event sizes.
add_hxt24_fuzzer(scope_fuzz SOURCES ScopeFuzz.cpp LIBS hxt24_scope)

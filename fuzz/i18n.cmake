# MO catalog bytes: layout checks, every entry and lookups.
add_hxt24_fuzzer(mo_catalog_fuzz SOURCES MoCatalogFuzz.cpp LIBS hxt24_i18n)

# MO catalog bytes: layout checks, every entry and lookups.
#
#   cmake --preset fuzz && cmake --build --preset fuzz --target mo_catalog_fuzz
#   mkdir -p /tmp/mo_fuzz/corpus /tmp/mo_fuzz/seeds
#   msgfmt -o /tmp/mo_fuzz/seeds/le.mo po/de/default.po
#   msgfmt --endianness=big -o /tmp/mo_fuzz/seeds/be.mo po/de/cport.po
#   msgfmt --no-hash -o /tmp/mo_fuzz/seeds/nohash.mo po/de/cport.po
#   nice build/fuzz/bin/mo_catalog_fuzz -jobs=1 -max_total_time=660 -max_len=4096 \
#     /tmp/mo_fuzz/corpus /tmp/mo_fuzz/seeds
#
# Last run (2 shared cores): 8,802,602 executions in 631 s, no finding (cov 183, ft 1074);
# the run before the eight-byte comparison: 1,619,832 in 661 s, no finding.
add_hxt24_fuzzer(mo_catalog_fuzz SOURCES MoCatalogFuzz.cpp LIBS hxt24_i18n)

# The table of catalogs carried inside an executable (TAssemblyAnalyzer::AnalyzeFile
# over the input as the file). Run (seeds in fuzz/seeds/carried):
#   build/fuzz/bin/carried_catalog_fuzzer -max_len=8192 -max_total_time=600 CORPUS fuzz/seeds/carried
add_hxt24_fuzzer(carried_catalog_fuzzer SOURCES CarriedCatalogFuzzer.cpp LIBS hxt24_i18n)

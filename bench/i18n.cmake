# Catalog lookups against glibc's dgettext on the same msgfmt-built catalog.
add_executable(i18n_bench I18nBench.cpp)
target_link_libraries(i18n_bench PRIVATE hxt24_options hxt24_i18n benchmark::benchmark)

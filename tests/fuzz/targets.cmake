# The fuzz targets: tests/fuzz/fuzz_<name>.cpp, seeded from tests/fuzz/corpus/<name>/.
set(QUILLON_FUZZ_TARGETS numbers registry interval tray lists logline app)

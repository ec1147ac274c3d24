# Inputs that once broke something stay in the seed corpora under
# fuzz/corpus/<target>/; this test runs every one of them through the fuzz
# targets' own checks, built with the normal compiler, on every ctest run.
# fuzz_irimport.cpp holds the four IR import targets (fuzz_ircsv, ...).
set(kov_fuzz_dir ${PROJECT_SOURCE_DIR}/fuzz)
set(kov_replayed fuzz_reply fuzz_tftpd fuzz_tftpsession fuzz_ccf fuzz_irdecode fuzz_intelhex
    fuzz_sitefile fuzz_sitedevicecsv fuzz_irimport)
set(kov_replay_sources)
foreach(target ${kov_replayed})
    string(REPLACE "fuzz_" "" short ${target})
    set(source ${kov_fuzz_dir}/${target}.cpp)
    list(APPEND kov_replay_sources ${source})
    set_source_files_properties(${source} PROPERTIES COMPILE_DEFINITIONS
        "KOV_FUZZ_REPLAY;LLVMFuzzerTestOneInput=replay_${short};LLVMFuzzerInitialize=replayInit_${short}")
endforeach()

kov_add_test(tst_regressions LABELS device firmware ir site LIBS kov_device kov_firmware kov_ir kov_site
             kov_irimport Qt6::Network
             SOURCES ${kov_replay_sources} ${kov_fuzz_dir}/fuzzsupport.h)
target_include_directories(tst_regressions PRIVATE ${kov_fuzz_dir})
target_compile_definitions(tst_regressions PRIVATE
    KOV_FUZZ_REPLAY KOV_FUZZ_CORPUS="${kov_fuzz_dir}/corpus")

# End-to-end tests: the real window in this test's namespace (the tool's
# host) against kov-sim devices on simulated subnets of child namespaces.
foreach(name tst_e2e_discovery tst_e2e_commands tst_e2e_upgrade tst_e2e_faults tst_e2e_subnets tst_e2e_simdevice)
    kov_add_test(${name} LIBS kov_app LABELS e2e)
    target_compile_definitions(${name} PRIVATE KOV_SIM_PATH="$<TARGET_FILE:kov-sim>")
    add_dependencies(${name} kov-sim)
endforeach()

# Tests of the firmware subsystem: kov_add_test(tst_x LIBS ...)
foreach(t tst_tftppacket tst_intelhex tst_tftpconnection tst_tftpdserver tst_tftpinterop
          tst_tftpabuse tst_kovtftpd)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${t}.cpp)
        kov_add_test(${t} LIBS kov_firmware Qt6::Network SOURCES tftptestclient.h
                     LABELS firmware)
    endif()
endforeach()
if(TARGET tst_intelhex)
    target_compile_definitions(tst_intelhex PRIVATE
        KOV_MAKE_FIRMWARE="${PROJECT_SOURCE_DIR}/tools/make-firmware.py")
endif()
if(TARGET tst_kovtftpd)
    add_dependencies(tst_kovtftpd kov-tftpd)
    target_compile_definitions(tst_kovtftpd PRIVATE KOV_TFTPD="$<TARGET_FILE:kov-tftpd>")
endif()

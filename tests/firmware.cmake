# Tests of the firmware subsystem: packets, sessions, the server, the HEX
# check, real TFTP clients against the server, abuse, and kov-tftpd.
foreach(t tst_tftppacket tst_intelhex tst_tftpconnection tst_tftpdserver tst_tftpinterop
          tst_tftpabuse tst_kovtftpd)
    kov_add_test(${t} LIBS kov_firmware Qt6::Network SOURCES tftptestclient.h LABELS firmware)
endforeach()
target_compile_definitions(tst_intelhex PRIVATE
    KOV_MAKE_FIRMWARE="${PROJECT_SOURCE_DIR}/tools/make-firmware.py")
add_dependencies(tst_kovtftpd kov-tftpd)
target_compile_definitions(tst_kovtftpd PRIVATE KOV_TFTPD="$<TARGET_FILE:kov-tftpd>")
# The firmware web service client against a local HTTP server.
kov_add_test(tst_firmwareupdate LABELS firmware LIBS kov_firmware Qt6::Network
             SOURCES httptestserver.h)
# Upgrade rounds: matching a device that answers after its upgrade.
kov_add_test(tst_fleetupgrade LIBS kov_fleet Qt6::Network SOURCES tftptestclient.h LABELS firmware)

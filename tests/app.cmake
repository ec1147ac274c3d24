# Tests of the app subsystem: the main window's form and start-up, and the
# firmware update workflow against a local web service and real TFTP clients.
kov_add_test(tst_mainwindow LABELS app LIBS kov_app)
kov_add_test(tst_firmwareworkflow LABELS app LIBS kov_app SOURCES httptestserver.h tftptestclient.h)
kov_add_test(tst_ircodelibrarypanel LABELS app ir LIBS kov_app)

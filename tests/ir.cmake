# Tests of the ir subsystem: code synthesis and decoding, the CCF check, the
# generator dialog.
kov_add_test(tst_ircode LABELS ir LIBS kov_ir)
kov_add_test(tst_ccfparser LABELS ir LIBS kov_ir)
kov_add_test(tst_ircodegeneratordialog LABELS ir LIBS kov_irdialog Qt6::Widgets)
kov_add_test(tst_irdecoder LABELS ir LIBS kov_ir)
kov_add_test(tst_irprotocols LABELS ir LIBS kov_ir)

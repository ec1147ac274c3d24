# End-to-end tests against simulated devices

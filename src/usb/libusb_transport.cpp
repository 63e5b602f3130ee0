// The libusb transport (being written).

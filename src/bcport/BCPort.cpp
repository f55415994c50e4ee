// The serial port component.

#pragma once
// The order in which the serial devices the system lists are numbered COM1, COM2, ... on a
// system without COM names: USB adapters (ttyUSB*, ttyACM*) first so that a plugged-in probe
// adapter is COM1, then the other devices; each group by name, with the numbers in the names
// compared as numbers (ttyS2 before ttyS10).

#include <string>
#include <string_view>
#include <vector>

namespace sylvane::acquisition {

// True for the device names of USB serial adapters ("ttyUSB0", "/dev/ttyACM1").
bool isUsbSerialDevice(std::string_view device);

// The devices in COM-number order; the input order does not matter.
std::vector<std::string> comPortOrder(std::vector<std::string> devices);

} // namespace sylvane::acquisition

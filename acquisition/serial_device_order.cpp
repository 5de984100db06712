#include "acquisition/serial_device_order.h"

#include <algorithm>
#include <cctype>

namespace sylvane::acquisition {

namespace {

std::string_view baseName(std::string_view device) {
    const std::size_t slash = device.rfind('/');
    return slash == std::string_view::npos ? device : device.substr(slash + 1);
}

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Natural order: runs of digits compare by value, everything else byte by byte.
bool naturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && isDigit(a[ei])) ++ei;
            while (ej < b.size() && isDigit(b[ej])) ++ej;
            std::string_view da = a.substr(i, ei - i), db = b.substr(j, ej - j);
            while (da.size() > 1 && da.front() == '0') da.remove_prefix(1);
            while (db.size() > 1 && db.front() == '0') db.remove_prefix(1);
            if (da.size() != db.size()) return da.size() < db.size();
            if (da != db) return da < db;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j)) return a.size() - i < b.size() - j;
    return a < b; // same natural value ("ttyS01" and "ttyS1"): keep a stable, total order
}

} // namespace

bool isUsbSerialDevice(std::string_view device) {
    const std::string_view name = baseName(device);
    return name.starts_with("ttyUSB") || name.starts_with("ttyACM");
}

std::vector<std::string> comPortOrder(std::vector<std::string> devices) {
    std::sort(devices.begin(), devices.end(), [](const std::string& a, const std::string& b) {
        const bool usbA = isUsbSerialDevice(a), usbB = isUsbSerialDevice(b);
        if (usbA != usbB) return usbA;
        return naturalLess(baseName(a), baseName(b)) ||
               (!naturalLess(baseName(b), baseName(a)) && a < b);
    });
    devices.erase(std::unique(devices.begin(), devices.end()), devices.end());
    return devices;
}

} // namespace sylvane::acquisition

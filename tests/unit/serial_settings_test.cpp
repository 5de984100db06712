#include "acquisition/serial_device_order.h"
#include "acquisition/serial_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace sylvane::acquisition;

TEST(SerialSettingsText, ReadsEveryWellFormedField) {
    const struct {
        const char* text;
        SerialSettings expected;
    } rows[] = {
        {"4800,N,8,1", {4800, Parity::None, 8, StopBits::One}},
        {"1200,N,8,1", {1200, Parity::None, 8, StopBits::One}},
        {"9600,E,7,2", {9600, Parity::Even, 7, StopBits::Two}},
        {"115200,O,8,1", {115200, Parity::Odd, 8, StopBits::One}},
        {"300,M,5,1.5", {300, Parity::Mark, 5, StopBits::OneAndHalf}},
        {"19200,S,6,1", {19200, Parity::Space, 6, StopBits::One}},
        {"4800,n,8,1", {4800, Parity::None, 8, StopBits::One}},
        {" 4800 , N , 8 , 1 ", {4800, Parity::None, 8, StopBits::One}},
        {"50,N,8,1", {50, Parity::None, 8, StopBits::One}},
        {"4000000,N,8,1", {4000000, Parity::None, 8, StopBits::One}},
        {"04800,N,8,1", {4800, Parity::None, 8, StopBits::One}},
    };
    for (const auto& r : rows) {
        std::string error = "untouched";
        const auto s = parseSerialSettings(r.text, &error);
        ASSERT_TRUE(s.has_value()) << r.text << ": " << error;
        EXPECT_EQ(*s, r.expected) << r.text;
        EXPECT_EQ(error, "untouched") << r.text;
    }
}

TEST(SerialSettingsText, RefusesMalformedTextNamingTheField) {
    const struct {
        const char* text;
        const char* mention;
    } rows[] = {
        {"", "baud,parity,data bits,stop bits"},
        {"4800", "baud,parity,data bits,stop bits"},
        {"4800,N,8", "baud,parity,data bits,stop bits"},
        {"4800,N,8,1,1", "baud,parity,data bits,stop bits"},
        {"4800;N;8;1", "baud,parity,data bits,stop bits"},
        {",N,8,1", "baud rate \"\""},
        {"48x0,N,8,1", "baud rate \"48x0\""},
        {"-4800,N,8,1", "baud rate \"-4800\""},
        {"+4800,N,8,1", "baud rate \"+4800\""},
        {"4800.5,N,8,1", "baud rate \"4800.5\""},
        {"0,N,8,1", "baud rate \"0\""},
        {"49,N,8,1", "baud rate \"49\""},
        {"4000001,N,8,1", "baud rate \"4000001\""},
        {"99999999999999999999,N,8,1", "baud rate"},
        {"4800,X,8,1", "parity \"X\""},
        {"4800,NO,8,1", "parity \"NO\""},
        {"4800,,8,1", "parity \"\""},
        {"4800,N,9,1", "data bits \"9\""},
        {"4800,N,4,1", "data bits \"4\""},
        {"4800,N,eight,1", "data bits \"eight\""},
        {"4800,N,8,0", "stop bits \"0\""},
        {"4800,N,8,3", "stop bits \"3\""},
        {"4800,N,8,1.0", "stop bits \"1.0\""},
        {"4800,N,8,", "stop bits \"\""},
    };
    for (const auto& r : rows) {
        std::string error;
        EXPECT_FALSE(parseSerialSettings(r.text, &error).has_value()) << r.text;
        EXPECT_NE(error.find(r.mention), std::string::npos) << r.text << " -> " << error;
        EXPECT_NE(error.find(std::string("\"") + r.text + "\""), std::string::npos)
            << "the message quotes the whole text: " << error;
    }
    EXPECT_FALSE(parseSerialSettings(std::string("4800,N,8,1\0", 11)).has_value());
}

TEST(ComPortOrder, UsbAdaptersComeFirstThenTheRestEachInNaturalOrder) {
    const struct {
        std::vector<std::string> listed;
        std::vector<std::string> ordered;
    } rows[] = {
        {{"/dev/ttyS0", "/dev/ttyUSB0"}, {"/dev/ttyUSB0", "/dev/ttyS0"}},
        {{"/dev/ttyS10", "/dev/ttyS2", "/dev/ttyS1"}, {"/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS10"}},
        {{"/dev/ttyUSB1", "/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyAMA0"},
         {"/dev/ttyACM0", "/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyAMA0", "/dev/ttyS0"}},
        {{"/dev/ttyUSB10", "/dev/ttyUSB9"}, {"/dev/ttyUSB9", "/dev/ttyUSB10"}},
        {{"/dev/ttyS0", "/dev/ttyS0"}, {"/dev/ttyS0"}},
        {{}, {}},
    };
    for (const auto& r : rows) EXPECT_EQ(comPortOrder(r.listed), r.ordered);
    EXPECT_TRUE(isUsbSerialDevice("ttyUSB0"));
    EXPECT_TRUE(isUsbSerialDevice("/dev/ttyACM3"));
    EXPECT_FALSE(isUsbSerialDevice("/dev/ttyS0"));
    EXPECT_FALSE(isUsbSerialDevice("/dev/usb/ttyS0"));
}

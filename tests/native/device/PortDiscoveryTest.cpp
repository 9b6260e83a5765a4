#include "FakeDevice.h"

#include <gtest/gtest.h>

namespace zorvi::test {
namespace {

using TPorts = std::vector<std::string>;

TEST(ListDevicePorts, KeepsMarkedValuesInRegistryOrderListingTheirData) {
    TFakeRegistry registry;
    registry.Values = {
        {"\\Device\\Serial0", "COM1"},   {"\\Device\\Silabser1", "COM7"},
        {"\\Device\\USBSER000", "COM4"}, {"\\Device\\silabser0", "COM3"}, // lower case qualifies
        {"\\Device\\xSiLaBsY", "COM11"}, // mixed case, anywhere in the name
        {"\\Device\\VCP0", "SILABS"},    // the data is never tested
        {"\\Device\\Silabser2", "COM7"}, // duplicates stay
    };
    TPorts ports{"stale"};
    ListDevicePorts(registry, ports);
    EXPECT_EQ(ports, (TPorts{"COM7", "COM3", "COM11", "COM7"}));
}

TEST(ListDevicePorts, MissingKeyLeavesTheListAsItWas) {
    TFakeRegistry registry;
    registry.Exists = false;
    TPorts ports;
    ListDevicePorts(registry, ports);
    EXPECT_TRUE(ports.empty());
    ports = {"COM3"};
    ListDevicePorts(registry, ports);
    EXPECT_EQ(ports, TPorts{"COM3"});
}

TEST(ListDevicePorts, OtherDriversOnlyGiveAnEmptyList) {
    TFakeRegistry registry;
    registry.Values = {{"\\Device\\Serial0", "COM1"}, {"\\Device\\SILAB", "COM2"}};
    TPorts ports{"COM3"};
    ListDevicePorts(registry, ports);
    EXPECT_TRUE(ports.empty());
}

TEST(ListDevicePorts, SkipsAMarkedValueWhoseDataIsNotText) {
    TFakeRegistry registry;
    registry.Values = {{"\\Device\\Silabser0", "", false}, {"\\Device\\Silabser1", "COM6"}};
    TPorts ports;
    ListDevicePorts(registry, ports);
    EXPECT_EQ(ports, TPorts{"COM6"});
}

TEST(ListDevicePorts, OnlyLatinLettersAreUpperCased) {
    TFakeRegistry registry;
    // UTF-8 bytes of Cyrillic letters are left alone, so they cannot turn into
    // anything that passes.
    registry.Values = {{"\\Device\\\xD1\x81ilabs", "COM8"}, {"\\Device\\ЅILABS", "COM9"}};
    TPorts ports;
    ListDevicePorts(registry, ports);
    EXPECT_TRUE(ports.empty());
}

} // namespace
} // namespace zorvi::test

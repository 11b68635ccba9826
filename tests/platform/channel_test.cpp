#include "platform/channel.h"

#include <gtest/gtest.h>

#include <thread>

TEST(BoundedChannel, DeliversInOrderAndEndsOnClose) {
    platform::BoundedChannel<int> ch(3);
    std::thread producer([&] {
        for (int i = 0; i < 1000; ++i) ch.send(i);
        ch.close();
    });
    int expected = 0;
    while (auto v = ch.receive()) EXPECT_EQ(*v, expected++);
    producer.join();
    EXPECT_EQ(expected, 1000);
    EXPECT_FALSE(ch.send(1));
}

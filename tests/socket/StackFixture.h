#pragma once

#include "IdStack.h"

#include <gtest/gtest.h>

// Gives each test the platform stack as GlobalStack, as the first network component would.
class StackFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(GlobalStack, nullptr);
    GlobalStack = TIdStack::CreatePlatformStack().release();
  }
  void TearDown() override {
    delete GlobalStack;
    GlobalStack = nullptr;
  }
};

// The SetupAPI iterator keeps the contract of every cabinet iterator (run here as a Windows
// program, under Wine in CI).

#include <gtest/gtest.h>

#include "platform/CabinetIteratorContract.h"
#include "platform/setupapi/SetupApiCabinetIterator.h"

INSTANTIATE_TYPED_TEST_SUITE_P(SetupApi, CabinetIteratorContract,
                               ::testing::Types<SetupApiCabinetIterator>);

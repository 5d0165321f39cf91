// How unit tests take a script that ran out of keys: as a failure of the test.
#include "support/fake_term.h"

#include <gtest/gtest.h>

void fake_out_of_keys() { ADD_FAILURE() << "the test ran out of scripted keys"; }

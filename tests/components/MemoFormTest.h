#pragma once
// The form compiled from data/memoform.def (resource MEMOFORM).
#include "CompiledFormTest.h"

class MemoFormTest : public CompiledFormTest {
protected:
    MemoFormTest() : CompiledFormTest("MEMOFORM") {}
};

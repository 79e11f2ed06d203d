// The headers every test includes, parsed once for all of them.
#pragma once
#include "store/Precompiled.h"
#include <QtTest>

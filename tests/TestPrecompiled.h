// The headers every test includes, parsed once for all of them.
#pragma once
#include "build-support/Precompiled.h"
#include <QtTest>

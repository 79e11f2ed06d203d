#pragma once
// The office server's engine, made known to the store below: every program that may open a
// server calls install() before it does.

namespace serverstore {
void install();
}

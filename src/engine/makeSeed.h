// A seed made from the clock, for runs that do not set one.
#pragma once

/// Hash of a calendar time and a processor-clock reading; each call also adds its own call
/// count, so two calls within one clock tick still give different seeds.
unsigned long makeSeed(long t, long c);

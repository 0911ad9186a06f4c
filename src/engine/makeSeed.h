// A seed made from the clock, for runs that do not set one.
#pragma once

/// Hash of a calendar time and a processor-clock reading; each call also adds its own call
/// count, so two calls within one clock tick still give different seeds.
unsigned long makeSeed(long t, long c);

/// Seeds are reduced to at most this (a larger given seed is taken modulo it).
constexpr unsigned long kSeedLimit = 100000000UL;

/// A seed from the clock now, in 1..kSeedLimit: never 0 or less, which on the command line
/// would ask for a clock seed again instead of repeating the run.
unsigned long clock_seed();

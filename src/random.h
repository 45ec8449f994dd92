#ifndef TIBREL_RANDOM_H
#define TIBREL_RANDOM_H

// MT19937 with its reference interface; one process-wide generator, main thread only.
void init_genrand(unsigned long s);
void init_by_array(unsigned long init_key[], int key_length);
unsigned long genrand_int32();   // 0 ... 0xffffffff
long genrand_int31();            // 0 ... 0x7fffffff
double genrand_real1();          // [0, 1]
double genrand_real2();          // [0, 1)
double genrand_real3();          // (0, 1)
double genrand_res53();          // [0, 1) with 53-bit resolution

// The generator of the discrete choices (crowd, roles, power-ups, outfits): a 64-bit
// splitmix counter, whose whole state is one word.
void seedDiscrete(unsigned long long s);
int randDiscrete();              // 0 ... 0x7fffffff

// Both generators' whole state, so a match can be started again from the same point.
struct randomstate {
    unsigned long mt[624];
    int mti;                     // 0 ... 625; 625 means MT19937 is not seeded yet
    unsigned long long discrete;
};
void saveRandomState(randomstate& s);
// a damaged mti is brought into 0 ... 625 and the words to 32 bits
void restoreRandomState(const randomstate& s);

// Start-up seeds: the two generators never share one.
struct randomseeds {
    unsigned long mt;            // 32 bits
    unsigned long long discrete;
};
// from one number ("-seed N")
randomseeds seedsFromNumber(unsigned long long n);
// from the wall clock in microseconds and the millisecond tick count, so two runs started
// in different milliseconds (or at the same tick count on different occasions) differ
randomseeds seedsFromClock(unsigned long long wallMicros, unsigned ticks);
void seedGenerators(const randomseeds& s);

#endif

#include "random.h"

// MT19937: period 2^19937 - 1, the published reference generator and its tempering.
static const int N = 624;
static const int M = 397;
static const unsigned long MATRIX_A = 0x9908b0dfUL;
static const unsigned long UPPER_MASK = 0x80000000UL;
static const unsigned long LOWER_MASK = 0x7fffffffUL;

static unsigned long mt[N];
static int mti = N + 1;   // N + 1: not seeded yet

void init_genrand(unsigned long s)
{
    mt[0] = s & 0xffffffffUL;
    for (mti = 1; mti < N; mti++) {
        mt[mti] = (1812433253UL * (mt[mti - 1] ^ (mt[mti - 1] >> 30)) + mti);
        mt[mti] &= 0xffffffffUL;
    }
}

void init_by_array(unsigned long init_key[], int key_length)
{
    init_genrand(19650218UL);
    int i = 1, j = 0;
    int k = (N > key_length ? N : key_length);
    for (; k; k--) {
        mt[i] = (mt[i] ^ ((mt[i - 1] ^ (mt[i - 1] >> 30)) * 1664525UL)) + init_key[j] + j;
        mt[i] &= 0xffffffffUL;
        i++;
        j++;
        if (i >= N) {
            mt[0] = mt[N - 1];
            i = 1;
        }
        if (j >= key_length)
            j = 0;
    }
    for (k = N - 1; k; k--) {
        mt[i] = (mt[i] ^ ((mt[i - 1] ^ (mt[i - 1] >> 30)) * 1566083941UL)) - i;
        mt[i] &= 0xffffffffUL;
        i++;
        if (i >= N) {
            mt[0] = mt[N - 1];
            i = 1;
        }
    }
    mt[0] = 0x80000000UL;   // non-zero initial array is assured
}

// refills the whole state block
static void generateBlock()
{
    static const unsigned long mag01[2] = {0x0UL, MATRIX_A};
    if (mti == N + 1)
        init_genrand(5489UL);
    int kk;
    unsigned long y;
    for (kk = 0; kk < N - M; kk++) {
        y = (mt[kk] & UPPER_MASK) | (mt[kk + 1] & LOWER_MASK);
        mt[kk] = mt[kk + M] ^ (y >> 1) ^ mag01[y & 0x1UL];
    }
    for (; kk < N - 1; kk++) {
        y = (mt[kk] & UPPER_MASK) | (mt[kk + 1] & LOWER_MASK);
        mt[kk] = mt[kk + (M - N)] ^ (y >> 1) ^ mag01[y & 0x1UL];
    }
    y = (mt[N - 1] & UPPER_MASK) | (mt[0] & LOWER_MASK);
    mt[N - 1] = mt[M - 1] ^ (y >> 1) ^ mag01[y & 0x1UL];
    mti = 0;
}

unsigned long genrand_int32()
{
    if (mti >= N)
        generateBlock();
    unsigned long y = mt[mti++];
    y ^= (y >> 11);
    y ^= (y << 7) & 0x9d2c5680UL;
    y ^= (y << 15) & 0xefc60000UL;
    y ^= (y >> 18);
    return y & 0xffffffffUL;
}

long genrand_int31()
{
    return (long)(genrand_int32() >> 1);
}

double genrand_real1()
{
    return genrand_int32() * (1.0 / 4294967295.0);
}

double genrand_real2()
{
    return genrand_int32() * (1.0 / 4294967296.0);
}

double genrand_real3()
{
    return (((double)genrand_int32()) + 0.5) * (1.0 / 4294967296.0);
}

double genrand_res53()
{
    unsigned long a = genrand_int32() >> 5, b = genrand_int32() >> 6;
    return (a * 67108864.0 + b) * (1.0 / 9007199254740992.0);
}

// ---- the discrete choices ----

static unsigned long long discreteState = 0x853c49e6748fea9bULL;

// splitmix64: advances x by the golden-ratio step and returns the mixed value
static unsigned long long splitmix(unsigned long long& x)
{
    unsigned long long z = (x += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

void seedDiscrete(unsigned long long s)
{
    discreteState = s;
}

int randDiscrete()
{
    return static_cast<int>(splitmix(discreteState) >> 33);
}

// ---- whole state ----

void saveRandomState(randomstate& s)
{
    for (int i = 0; i < N; i++)
        s.mt[i] = mt[i];
    s.mti = mti;
    s.discrete = discreteState;
}

void restoreRandomState(const randomstate& s)
{
    for (int i = 0; i < N; i++)
        mt[i] = s.mt[i] & 0xffffffffUL;
    mti = s.mti < 0 ? 0 : (s.mti > N + 1 ? N + 1 : s.mti);
    discreteState = s.discrete;
}

// ---- seeds ----

randomseeds seedsFromNumber(unsigned long long n)
{
    unsigned long long x = n;
    randomseeds s;
    s.mt = static_cast<unsigned long>(splitmix(x) & 0xffffffffUL);
    s.discrete = splitmix(x);
    return s;
}

randomseeds seedsFromClock(unsigned long long wallMicros, unsigned ticks)
{
    // the tick count goes into the high bits, where the microseconds rarely reach
    return seedsFromNumber(wallMicros ^ (static_cast<unsigned long long>(ticks) << 40));
}

void seedGenerators(const randomseeds& s)
{
    init_genrand(s.mt);
    seedDiscrete(s.discrete);
}

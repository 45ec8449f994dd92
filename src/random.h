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

#endif

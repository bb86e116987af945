/* A loadable library that lacks the runtime's launch entry point. */
int noJliPresent(void) {
    return 1;
}

#if defined(__ELF__)
/* An absolute symbol of value zero: the loader finds it, yet its address is null and no loader
 * error is pending. */
__asm__(".globl zeroSymbol\n.set zeroSymbol, 0");
#endif

/* A runtime launch library whose JLI_Launch returns at once: what is left is launcher cost. */
int JLI_Launch(int argc, char** argv, int jargc, const char** jargv, int appclassc,
               const char** appclassv, const char* fullversion, const char* dotversion,
               const char* pname, const char* lname, int javaargs, int cpwildcard, int javaw,
               int ergo) {
    (void)argc, (void)argv, (void)jargc, (void)jargv, (void)appclassc, (void)appclassv;
    (void)fullversion, (void)dotversion, (void)pname, (void)lname, (void)javaargs;
    (void)cpwildcard, (void)javaw, (void)ergo;
    return 0;
}

package hello;

// Shows what the launcher handed over: the arguments, the launcher's own path, a system
// property from the configuration's Java options, the library search-path variable, and the
// runtime it runs on.
public final class Main {
    public static void main(String[] args) {
        System.out.println("Hello from Java " + System.getProperty("java.version"));
        System.out.println("  arguments (" + args.length + "):");
        for (int i = 0; i < args.length; i++) {
            System.out.println("    [" + i + "] " + args[i]);
        }
        System.out.println("  vorlane.app-path  = " + System.getProperty("vorlane.app-path"));
        System.out.println("  hello.appdir      = " + System.getProperty("hello.appdir"));
        System.out.println("  DYLD_LIBRARY_PATH = " + System.getenv("DYLD_LIBRARY_PATH"));
        System.out.println("  java.home         = " + System.getProperty("java.home"));
    }
}

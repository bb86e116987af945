"""Finding the installed JDK, and a runtime's home."""

import os

from support import TempDirTest

from makebundle import jdk


class FindTest(TempDirTest):
    def home(self, name, javac=True):
        """A runtime home below the directory, with bin/java (and bin/javac)."""
        for tool in ["java"] + (["javac"] if javac else []):
            os.chmod(self.write(name + "/bin/" + tool), 0o755)
        return os.path.join(self.dir, name)

    def test_java_home_then_path(self):
        jre = self.home("jre", javac=False)
        jdk_a = self.home("jdk-a")
        jdk_b = self.home("jdk-b")
        os.makedirs(os.path.join(self.dir, "links"))
        os.symlink(os.path.join(jdk_b, "bin", "java"), os.path.join(self.dir, "links", "java"))
        path = os.pathsep.join([jre + "/bin", self.dir + "/links"])
        cases = [
            ({"JAVA_HOME": jdk_a, "PATH": path}, jdk_a),
            # A JAVA_HOME without a compiler is no JDK: PATH decides, links followed.
            ({"JAVA_HOME": jre, "PATH": path}, jdk_b),
            ({"JAVA_HOME": "", "PATH": path}, jdk_b),
            ({"PATH": jre + "/bin"}, None),
        ]
        for environ, want in cases:
            with self.subTest(environ=environ):
                self.assertEqual(want, jdk.find(environ))

    def test_a_macos_jdk_is_its_contents_home(self):
        self.write("mac.jdk/Contents/Home/lib/jli/libjli.dylib")
        self.assertEqual(self.dir + "/mac.jdk/Contents/Home", jdk.home_of(
            self.dir + "/mac.jdk", ["lib/libjli.dylib", "lib/jli/libjli.dylib"]))

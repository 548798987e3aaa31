"""End-to-end: a missing or unusable picture or font ends start-up with a message, not a crash."""
import unittest

from harness import DATA, Scratch, run_show


def variants(name):
    """The broken versions of one data file, by label; None means the file is absent."""
    good = (DATA / name).read_bytes()
    other = "PC_Snowballs.ttf" if name == "rahmen.png" else "rahmen.png"
    cases = {
        "missing": None,
        "empty": b"",
        "truncated": good[: len(good) // 3],
        "header only": good[:64],
        "foreign": (DATA / other).read_bytes(),
        "text": b"not a picture, not a font\n" * 10,
    }
    if name == "rahmen.png":
        # Cut inside an ancillary chunk: the PNG loader alone would spin on it forever.
        cases["cut in a text chunk"] = good[:33] + b"\0\0\0\x40tEXtComment"
    return cases


class SceneFiles(unittest.TestCase):
    def test_broken_picture_or_font_names_the_file_and_exits_1(self):
        for name in ("rahmen.png", "PC_Snowballs.ttf"):
            for label, content in variants(name).items():
                with self.subTest(file=name, variant=label):
                    if content is None:
                        scratch = Scratch(omit=(name,))
                    else:
                        scratch = Scratch(replace={name: content})
                    with scratch as d:
                        run = run_show(d, quit_after=3, deadline=30)
                    self.assertEqual(run.status, 1, run.stderr)
                    self.assertIn(name, run.stderr)
                    self.assertRegex(run.stderr, r": \S.*\n$")
                    self.assertEqual(run.flips, 0)


if __name__ == "__main__":
    unittest.main()

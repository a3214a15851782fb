import sys

from pyvorn.cli import main

sys.exit(main())

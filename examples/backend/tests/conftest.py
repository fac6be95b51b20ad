import pytest
import webtest

import switch_backend


@pytest.fixture
def app():
    """The application, its platform calls in this process."""
    return webtest.TestApp(switch_backend.make_app())

// Helpers shared by the tests and the session driver.
